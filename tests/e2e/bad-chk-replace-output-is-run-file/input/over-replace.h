// over the replace file read before
$OUTPUT_NAME:over-csv.h$
