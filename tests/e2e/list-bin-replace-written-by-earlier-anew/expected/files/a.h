first
$OUTPUT_NAME:b.h$
$ID_LIST$
