first
$OUTPUT_NAME:gen.h$
