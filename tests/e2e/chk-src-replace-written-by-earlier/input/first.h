$OUTPUT_NAME:gen.h$
enum Ids {
$ID_LIST$
};
