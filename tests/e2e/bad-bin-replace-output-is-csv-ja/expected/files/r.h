$OUTPUT_NAME:messages.csv$
$ID_LIST$
