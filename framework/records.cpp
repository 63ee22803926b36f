// Text records: placeholder until the formatter lands.
