older output, kept
