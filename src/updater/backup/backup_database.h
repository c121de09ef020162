#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/store/xml_document.h"
#include "updater/backup/backup_records.h"

// The element form of the snapshot database "db.xml": a root BACKUP with
// VERSION, one SNAPSHOT (TIMESTAMP) per snapshot in creation order, one MODULE
// (ID, PLATFORM, BUILD, TYPE, FILE, ORIG) per module. Numbers are upper-case
// hexadecimal; names compare without case on reading.

// The version this library writes; a database of a lower one is out of date.
inline constexpr uint32_t kBackupDatabaseVersion = 2;

// A document holding only the root BACKUP of the current version; null when
// memory runs out.
[[nodiscard]] XmlDocumentPtr NewBackupDatabase();
// The root's VERSION reads and is above 1.
[[nodiscard]] bool IsDatabaseCurrent(const _XML_DOCUMENT* document, const _XML_NODE* root);

// The SNAPSHOT children of root in document order.
[[nodiscard]] std::vector<_XML_NODE*> SnapshotElements(const _XML_NODE* root);
// TIMESTAMP of a SNAPSHOT; none when it cannot be read.
[[nodiscard]] std::optional<uint32_t> SnapshotTimestamp(const _XML_DOCUMENT* document,
                                                        const _XML_NODE* snapshot);
// The snapshot an element holds: its timestamp (0 when unreadable) and every
// MODULE that reads whole and names safe paths.
[[nodiscard]] CBackupState ReadSnapshotElement(const _XML_DOCUMENT* document,
                                               const _XML_NODE* snapshot);

// Appends state as the root's last SNAPSHOT; null, with nothing appended, when
// the document cannot take it.
[[nodiscard]] _XML_NODE* AppendSnapshotElement(_XML_DOCUMENT* document, _XML_NODE* root,
                                               const CBackupState& state);
