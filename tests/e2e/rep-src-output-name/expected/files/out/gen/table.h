first
HELLO,
BYE,
