$OUTPUT_NAME:./gen.h$
$ID_LIST$
