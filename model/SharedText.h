#pragma once
// An immutable text shared by every entry that shows it: the record list
// holds the names and help texts of the parsed definitions this way, so a
// file with a hundred thousand records of one kind keeps one copy of each.
// Reads like a const std::string; assigning a new text gives this entry its
// own copy and leaves the others alone.
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

namespace model {

class SharedText {
public:
    SharedText() = default;
    SharedText(std::string text) : node_(text.empty() ? nullptr : new Node{1, std::move(text)}) {}
    SharedText(const char* text) : SharedText(std::string(text)) {}
    SharedText(std::string_view text) : SharedText(std::string(text)) {}
    SharedText(const SharedText& other) noexcept : node_(other.node_) { retain(); }
    SharedText(SharedText&& other) noexcept : node_(std::exchange(other.node_, nullptr)) {}
    SharedText& operator=(SharedText other) noexcept
    {
        std::swap(node_, other.node_);
        return *this;
    }
    ~SharedText() { release(); }

    const std::string& str() const { return node_ ? node_->text : noText(); }
    operator const std::string&() const { return str(); }
    operator std::string_view() const { return str(); }

    bool empty() const { return str().empty(); }
    std::size_t size() const { return str().size(); }
    const char* data() const { return str().data(); }
    const char* c_str() const { return str().c_str(); }
    // Whether two texts are the same shared copy (not merely equal).
    bool sharesWith(const SharedText& other) const { return node_ && node_ == other.node_; }

    friend bool operator==(const SharedText& a, const SharedText& b) { return a.str() == b.str(); }
    friend bool operator==(const SharedText& a, std::string_view b) { return a.str() == b; }
    friend bool operator==(const SharedText& a, const std::string& b) { return a.str() == b; }
    friend bool operator==(const SharedText& a, const char* b) { return a.str() == b; }
    friend std::string operator+(const SharedText& a, std::string_view b) { return a.str() + std::string(b); }
    friend std::string operator+(std::string a, const SharedText& b) { return a += b.str(); }
    friend std::string operator+(const char* a, const SharedText& b) { return a + b.str(); }
    friend std::ostream& operator<<(std::ostream& out, const SharedText& t) { return out << t.str(); }

private:
    // One pointer per entry rather than a shared_ptr's two: the editor is
    // single-threaded, so the count needs no atomics.
    struct Node {
        std::size_t refs;
        std::string text;
    };
    static const std::string& noText()
    {
        static const std::string none;
        return none;
    }
    void retain() const
    {
        if (node_)
            ++node_->refs;
    }
    void release()
    {
        if (node_ && --node_->refs == 0)
            delete node_;
        node_ = nullptr;
    }
    Node* node_ = nullptr;
};

} // namespace model
