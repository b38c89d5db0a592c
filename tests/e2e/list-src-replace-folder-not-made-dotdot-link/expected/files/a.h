$OUTPUT_NAME:../link/../x.h$
$ID_LIST$
