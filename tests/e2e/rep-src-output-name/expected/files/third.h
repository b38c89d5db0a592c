third
$LANGUAGE_LIST$
$OUTPUT_NAME:/proc/self/cwd/absolute.h$
