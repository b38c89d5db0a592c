static const char* const kTexts[] = {
/* HELLO */ "\x66\x69\x72\x73\x74",
};
