third
en,
ja,
