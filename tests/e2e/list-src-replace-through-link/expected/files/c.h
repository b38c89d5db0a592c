$OUTPUT_NAME:other/dir/x.h$
$ID_LIST$
