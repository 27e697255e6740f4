// One node of the object tree: the root "classes" or an object from a listing line.
#pragma once

#include <QString>

#include <string>
#include <vector>

struct ObjectNode {
    ObjectNode* parent = nullptr;
    std::vector<ObjectNode> children;  // never resized in place, so node addresses stay put
    QString caption;
    std::string handle;  // sent back unchanged when the node is expanded
    int row = 0;
    bool fetched = false;  // until its first expansion a node shows one placeholder child
};
