$OUTPUT_NAME:../real/t.h$
B
