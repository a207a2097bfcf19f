// The node monitor: change notifications for nodes and folders, delivered as
// B_NODE_MONITOR messages to BMessengers. Built on one inotify descriptor
// and one reader thread for the whole process, started by the first watch.
//
// Every message carries int32 "opcode" and int32 "device" (the low 32 bits
// of st_dev); nodes and folders are int64 inode numbers:
//   B_ENTRY_CREATED  "directory", "node", "name"
//   B_ENTRY_REMOVED  "directory", "node", "name"
//   B_ENTRY_MOVED    "from directory", "to directory", "node", "name" (the
//                    new name), "from name"
// The "node" of a move is the node the old name referred to, even when the
// new name has been taken over again by the time the event is read. Only an
// entry moved in from a folder nobody watches (reported as B_ENTRY_CREATED)
// is looked up under its new name, and may then name a later node.
//   B_STAT_CHANGED   "node"
//   B_ATTR_CHANGED   "node", "attr" (the attribute's name, "" when it
//                    cannot be told which attribute changed)
//
// Who is told what:
// - B_WATCH_DIRECTORY on a folder: entries created in it, removed from it
//   and renamed in it (one B_ENTRY_MOVED). An entry moved between two
//   watched folders gives one B_ENTRY_MOVED for each watch of either
//   folder, so a messenger watching both receives two. An entry moved in
//   from a folder nobody watches arrives as B_ENTRY_CREATED; one moved out
//   to such a folder as B_ENTRY_REMOVED (a move whose other half does not
//   show up by the end of the next batch of kernel events counts as leaving).
// - B_WATCH_NAME on a node: B_ENTRY_MOVED when the node is renamed or moved
//   anywhere on its volume, B_ENTRY_REMOVED when its last name goes.
// - B_WATCH_STAT: B_STAT_CHANGED when size, times, mode, owner or link
//   count change (the change time alone does not count, see below).
// - B_WATCH_ATTR: one B_ATTR_CHANGED per attribute whose data, type or
//   existence changed.
//   The kernel reports xattr changes, mode and owner changes alike; the
//   monitor compares with what it saw before to tell them apart. A change
//   it cannot place (same-value rewrites, a node it cannot read) is
//   reported both ways: B_STAT_CHANGED and B_ATTR_CHANGED with "attr" "".
//
// A watch of the same node by the same messenger adds the new flags to the
// old ones; B_STOP_WATCHING ends that messenger's watch of the node, and
// ending a watch that no longer exists (the node was deleted, which ends
// its watches) succeeds. The inotify watch goes when nobody watches the node.
//
// Queue overflow: when the kernel drops events (IN_Q_OVERFLOW) no watch is
// lost. The monitor compares every watched folder with the entries it knew
// and every watched node with its last state, and reports the differences
// as ordinary messages: entries created and removed meanwhile (a rename
// made during the overflow shows as a removal and a creation), moves of
// name-watched nodes, stat and attribute changes. A watcher therefore sees
// the current state without rescanning on its own.
//
// Messages are sent from the reader thread in the order of the events, by the
// rule of PostInOrder (kit/app/OrderedPoster.h): when a target's queue is
// full the reader waits for room while the messenger still watches
// something, up to the rule's bound per message; targets that are closed
// (B_BAD_PORT_ID) are unregistered.
//
// Watched folders and name-watched nodes are held open (O_PATH), so a
// deleted watched folder stays allocated until its watches end.
//
// All functions may be called from any thread, including a target's own.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/SupportDefs.h"

#include <string>

class BHandler;
class BLooper;

enum : uint32 {
	B_STOP_WATCHING = 0x0000,
	B_WATCH_NAME = 0x0001,
	B_WATCH_STAT = 0x0002,
	B_WATCH_ATTR = 0x0004,
	B_WATCH_DIRECTORY = 0x0008,
	B_WATCH_ALL = 0x000f,
};

// Values of the "opcode" field.
enum : int32 {
	B_ENTRY_CREATED = 1,
	B_ENTRY_REMOVED = 2,
	B_ENTRY_MOVED = 3,
	B_STAT_CHANGED = 4,
	B_ATTR_CHANGED = 5,
};

// Starts (adds flags to) or, with B_STOP_WATCHING, ends the watch of `node`
// by `target`. The node must be known to this process (see
// get_path_for_node: met through BEntry, BNode or BDirectory, or watched).
// B_OK, B_BAD_VALUE (null node, unknown flags, invalid messenger),
// B_ENTRY_NOT_FOUND, or the status of a failing inotify call (the user's
// inotify watch limit gives B_DEVICE_FULL).
status_t watch_node(const node_ref* node, uint32 flags, const BMessenger& target);
status_t watch_node(const node_ref* node, uint32 flags, const BHandler* handler, const BLooper* looper = nullptr);

// Ends every watch of `target`. Always B_OK.
status_t stop_watching(const BMessenger& target);
status_t stop_watching(const BHandler* handler, const BLooper* looper = nullptr);

// For the kit: the current path of a watched node; false when the node is
// not watched or its path is not known.
bool watched_node_path(const node_ref& node, std::string* path);
