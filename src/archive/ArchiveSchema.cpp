#include "ArchiveSchema.h"

#include "ArchiveSchemaText.h"

QByteArray ArchiveSchema::sql() { return QByteArray(kArchiveSchemaText); }
