// The shared library is the static library of the internals linked whole;
// its exported surface is fixed by exports.map.
