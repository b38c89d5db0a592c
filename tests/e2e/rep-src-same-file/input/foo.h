no commands here

at all
