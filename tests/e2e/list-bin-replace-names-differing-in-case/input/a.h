first
$OUTPUT_NAME:Gen.h$
