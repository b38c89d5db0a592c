enum Language {
  $LANGUAGE_LIST$
};
