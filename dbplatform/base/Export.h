// What the shared libraries export. They are built with hidden visibility, so only what a
// public header declares between DBPLATFORM_PUBLIC_BEGIN and DBPLATFORM_PUBLIC_END (its
// classes with their type information and virtual tables, its functions and variables)
// is visible to hosts; the providers, the cursor engine and other internals stay inside.
#pragma once

#define DBPLATFORM_PUBLIC_BEGIN _Pragma("GCC visibility push(default)")
#define DBPLATFORM_PUBLIC_END _Pragma("GCC visibility pop")

// For what the pragma does not reach: a friend function declared inside a class and
// defined in the library.
#define DBPLATFORM_API __attribute__((visibility("default")))
