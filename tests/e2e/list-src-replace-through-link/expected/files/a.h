$OUTPUT_NAME:lnk/../gen.h$
$ID_LIST$
