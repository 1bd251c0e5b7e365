// Stands in for the sources of a module that has none yet.
