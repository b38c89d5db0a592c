// over the character list written before
$OUTPUT_NAME:./msg_using_ja.json$
$LANGUAGE_LIST$
