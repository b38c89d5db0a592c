$OUTPUT_NAME:/proc/self/cwd/absolute.h$
$LANGUAGE_LIST$
