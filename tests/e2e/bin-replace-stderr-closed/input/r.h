// ids
$ID_LIST$
$MESSAGE_LIST:en$
// end
