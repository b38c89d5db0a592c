template A
$ID_LIST$
