// Model services: placeholder.
