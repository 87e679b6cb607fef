// Marks a function as one of the library's exported C entry points. kelodbc.map lists the
// same names; everything else in the library stays hidden.
#pragma once

#define KELVRA_EXPORT extern "C" __attribute__((visibility("default")))
