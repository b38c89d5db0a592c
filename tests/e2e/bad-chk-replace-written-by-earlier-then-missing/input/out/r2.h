$OUTPUT_NAME:m.csv$
