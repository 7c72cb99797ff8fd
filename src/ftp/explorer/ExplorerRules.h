#pragma once
// The explorer's pure rules: what a tree node stands for, the order of
// siblings, and which commands are enabled.
#include <string>

#include "ftp/engine/FtpEngine.h"

namespace vn {

enum class NodeKind { Drive = 0, RemovableDrive = 2, LocalFolder = 4, Server = 6, RemoteFolder = 8, RemoteLink = 10 };

// One per folder node. Local or remote is the connection: session 0 is local.
struct TNodeInfo {
    NodeKind kind = NodeKind::LocalFolder;
    // Named nodes: the parent folder with trailing "/". Nameless nodes (roots,
    // the server and its folder chain): the node's own folder with trailing "/".
    std::string Path;
    std::string DirNom;  // empty for nameless nodes
    std::string Ip;      // the server's dotted address; empty locally
    SessionId session = 0;
    bool Pasv = false;
    int PASVPort = -1;
    bool symlink = false; // a local folder reached through a link (a full expand never follows it)
    bool remote() const { return session != 0; }
};

// The node's full folder path, with trailing "/".
std::string RetornaDirectori(const TNodeInfo& n);

// Drops one trailing "/" (an empty path stays empty).
std::string ExtreuDirNet(const std::string& path);

// Sibling order: nameless nodes first (local before remote, then by Path),
// named nodes by name; case-insensitive.
bool treeLess(const TNodeInfo& a, const TNodeInfo& b);

// True when `inner` is `outer` or a folder below it (both with trailing "/").
bool isSubfolder(const std::string& inner, const std::string& outer);

struct EnableInput {
    bool treeSelection = false;  // the tree has the focus and a node is selected
    bool listSelection = false;  // the list has the focus and an item is selected
    int selectedCount = 0;       // selected list items, whatever has the focus
    bool folderKnown = false;    // CurrentDir is not empty
    bool remote = false;         // CurrentDir is on a server
    bool listHasItems = false;
    bool clipboardFile = false;  // "copy.dat" exists
};

struct EnableState {
    bool connect = true, refresh = true, quick = true, system = true;
    bool cut = false, copy = false, paste = false, selectAll = false, del = false, invert = false;
    bool up = false, newFolder = false, search = false, rename = false;
    bool quit = false, types = false, upload = false;
};

EnableState enablingRule(const EnableInput& in);

// A server node's caption: "host[site]", with ":port" after the host when the
// port is not 21, and "login@" before it when another session of the window
// shares host and port, so two servers on one host never look the same.
std::string serverCaption(const std::string& host, int port, const std::string& site, const std::string& login,
                          bool sharesHostAndPort);

} // namespace vn
