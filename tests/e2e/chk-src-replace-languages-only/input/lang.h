enum class Language {
$LANGUAGE_LIST$
};
