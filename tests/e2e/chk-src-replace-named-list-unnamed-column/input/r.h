static const char* kTexts[] = {
$MESSAGE_LIST:en$
};
