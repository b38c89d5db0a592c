$OUTPUT_NAME:gen.h$
A
