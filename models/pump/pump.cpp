// Pump entry: placeholder.
