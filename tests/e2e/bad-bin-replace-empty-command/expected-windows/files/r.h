$IF:nothing$
text
$$
