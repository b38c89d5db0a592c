second
$OUTPUT_NAME:gen.h$
