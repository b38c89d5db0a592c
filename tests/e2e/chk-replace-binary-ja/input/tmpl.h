// header
$IF:BINARY$
$ELIF:binary$
$ENDIF$
    $MESSAGE_LIST:en$
$LANGUAGE_LIST$
