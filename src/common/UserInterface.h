#pragma once
// What the core needs of a user interface while it works: a progress gauge,
// the wait cursor and a chance to let pending window messages run.
// The windows and the command-line programs implement these; tests use the null ones.

namespace vexa {

class IGauge {
public:
    virtual ~IGauge() = default;
    virtual void SetMinimum(int value) = 0;
    virtual void SetMaximum(int value) = 0;
    virtual void SetProgress(int value) = 0;
    virtual int Progress() const = 0;
    void Advance(int by = 1) { SetProgress(Progress() + by); }
};

enum class TCursorKind { Wait, DatabaseWait };

class IUserInterface {
public:
    virtual ~IUserInterface() = default;
    // One pass of the message loop (repaints, clicks) during long work.
    virtual void ProcessMessages() = 0;
    // Shows the wait cursor; calls nest and are undone by RestoreCursor in reverse order.
    virtual void ShowWaitCursor(TCursorKind kind) = 0;
    virtual void RestoreCursor() = 0;
};

// A user interface that does nothing: batch runs and tests.
class NullUserInterface : public IUserInterface {
public:
    void ProcessMessages() override {}
    void ShowWaitCursor(TCursorKind) override {}
    void RestoreCursor() override {}
    static NullUserInterface& Instance() {
        static NullUserInterface ui;
        return ui;
    }
};

// Shows the wait cursor for the lifetime of the guard, also when an exception passes.
class WaitCursorGuard {
public:
    WaitCursorGuard(IUserInterface& ui, TCursorKind kind = TCursorKind::Wait) : ui_(ui) { ui_.ShowWaitCursor(kind); }
    ~WaitCursorGuard() { ui_.RestoreCursor(); }
    WaitCursorGuard(const WaitCursorGuard&) = delete;
    WaitCursorGuard& operator=(const WaitCursorGuard&) = delete;

private:
    IUserInterface& ui_;
};

// A gauge that only counts (for tests and for views without a bar).
class CountingGauge : public IGauge {
public:
    void SetMinimum(int value) override { min_ = value; }
    void SetMaximum(int value) override { max_ = value; }
    void SetProgress(int value) override { pos_ = value; }
    int Progress() const override { return pos_; }
    int Minimum() const { return min_; }
    int Maximum() const { return max_; }

private:
    int min_ = 0, max_ = 0, pos_ = 0;
};

}  // namespace vexa
