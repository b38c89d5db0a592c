$OUTPUT_NAME:../tgt/x.h$
$ID_LIST$
