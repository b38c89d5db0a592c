const char* notes[] = {
$MESSAGE_LIST$
};
