$OUTPUT_NAME:lnk/x.h$
$ID_LIST$
