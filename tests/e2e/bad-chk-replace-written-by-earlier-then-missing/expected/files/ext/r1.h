$OUTPUT_NAME:r2.h$
plain
