first
$ID_LIST$
$OUTPUT_NAME:gen/table.h$
