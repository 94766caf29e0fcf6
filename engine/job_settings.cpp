// Filled in by the engine work.
namespace vellumar {
} // namespace vellumar
