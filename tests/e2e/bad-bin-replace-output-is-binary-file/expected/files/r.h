$OUTPUT_NAME:msg.bin$
$ID_LIST$
