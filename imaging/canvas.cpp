// Filled in by the imaging work.
namespace vellumar {
} // namespace vellumar
