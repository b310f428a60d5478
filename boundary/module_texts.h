// The module's texts: constant storage of the library, handed out by address and never copied or
// freed. The host must neither change nor free them.
#ifndef MODULE_TEXTS_H
#define MODULE_TEXTS_H

extern const char kModuleName[];
extern const char kModuleIdentifier[];
extern const char kModuleAbout[];

#endif  // MODULE_TEXTS_H
