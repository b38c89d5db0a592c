$IF:nothing$
$ID_LIST$
$id_list$
