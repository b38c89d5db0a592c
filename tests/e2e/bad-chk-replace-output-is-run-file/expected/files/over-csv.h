// over the CSV
$OUTPUT_NAME:messages.csv$
$ID_LIST$
