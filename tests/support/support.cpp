// Test support: placeholder.
