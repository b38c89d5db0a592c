$OUTPUT_NAME:sub/table.h$
enum {
$ID_LIST$
};
