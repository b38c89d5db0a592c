$OUTPUT_NAME:/proc/self/no-such-dir/r.h$
$ID_LIST$
