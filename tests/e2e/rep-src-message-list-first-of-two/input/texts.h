static const char* const kTexts[] = {
$MESSAGE_LIST:en$
};
