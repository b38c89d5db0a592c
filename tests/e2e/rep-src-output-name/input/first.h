$OUTPUT_NAME:ignored.h$
first
$ID_LIST$
$OUTPUT_NAME:gen/table.h$
