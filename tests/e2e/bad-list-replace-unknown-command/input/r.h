ok
$NOPE$
