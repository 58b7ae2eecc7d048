// The VT100 interpreter.
