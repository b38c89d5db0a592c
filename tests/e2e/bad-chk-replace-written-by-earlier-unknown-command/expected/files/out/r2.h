fine
