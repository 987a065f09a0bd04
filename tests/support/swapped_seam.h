// Puts a seam (a global table of replaceable system calls) back as it was when a
// test's stand-ins are done with it. Header only: the soak program links no test
// library.
#pragma once

// While alive, `seam` may be changed freely; the calls it held come back afterwards.
template <typename Calls>
class SwappedSeam {
public:
    explicit SwappedSeam(Calls& seam) : seam_(seam), saved_(seam) {}
    // Replaces the whole table at once.
    SwappedSeam(Calls& seam, const Calls& standIns) : SwappedSeam(seam) { seam_ = standIns; }
    ~SwappedSeam() { seam_ = saved_; }
    SwappedSeam(const SwappedSeam&) = delete;
    SwappedSeam& operator=(const SwappedSeam&) = delete;

private:
    Calls& seam_;
    const Calls saved_;
};
