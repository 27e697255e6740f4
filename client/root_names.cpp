#include "root_names.h"

namespace {

std::string quotedThread(const std::string& thread)
{
    return thread.empty() ? std::string("an unnamed thread") : "thread \"" + thread + "\"";
}

}  // namespace

std::string rootName(const GcRoot& root)
{
    const std::string& k = root.kind;
    if (k == "thread")
        return quotedThread(root.thread);
    if (k == "stack-local" || k == "jni-local") {
        std::string text = k == "stack-local" ? "local variable" : "JNI local reference";
        if (!root.method.empty())
            text += " in " + root.method;
        return text + " (" + quotedThread(root.thread) + ")";
    }
    if (k == "jni-global")
        return "JNI global reference";
    if (k == "system-class")
        return "system class";
    if (k == "monitor")
        return "monitor (a lock held)";
    return k.empty() ? std::string("GC root") : k + " root";
}

int staticStepOfPath(const PathReply& path)
{
    for (size_t i = path.steps.size(); i-- > 1;)
        if (path.steps[i].how == "static" && path.steps[i - 1].object.type == "java.lang.Class")
            return static_cast<int>(i);
    return -1;
}

std::string pathRootName(const PathReply& path)
{
    const int held = staticStepOfPath(path);
    if (held < 0)
        return path.hasRoot ? rootName(path.root) : std::string();
    const Hop& step = path.steps[static_cast<size_t>(held)];
    std::string owner = step.declared;
    if (owner.empty()) {
        // The class object's preview is "class NAME".
        const std::string& preview = path.steps[static_cast<size_t>(held) - 1].object.preview;
        owner = preview.rfind("class ", 0) == 0 ? preview.substr(6) : preview;
    }
    return "static field " + owner + "." + step.name;
}
