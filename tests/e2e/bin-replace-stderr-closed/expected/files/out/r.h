// ids
HELLO = 0x5B4B101E,
// end
