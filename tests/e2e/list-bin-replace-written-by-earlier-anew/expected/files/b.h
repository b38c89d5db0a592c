$OUTPUT_NAME:stale.h$
old
