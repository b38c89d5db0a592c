// Placeholder until the foundation lands.
