third
$OUTPUT_NAME:gen.h.$
