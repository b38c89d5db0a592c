before
 kept
$ID_LIST$
after
