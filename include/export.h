// Marks a name that a deliverable exports. Everything else is compiled with
// hidden visibility, and each library's version script lists the same names,
// so a name leaves a library only when both say so.
#ifndef SRVFW_EXPORT_H
#define SRVFW_EXPORT_H

#define SRVFW_EXPORT __attribute__((visibility("default")))

#endif
