// its own name: written as fine.h.replaced
$ID_LIST$
