// Filled in by the overlay work.
namespace vellumar {
} // namespace vellumar
