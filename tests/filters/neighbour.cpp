// A DLL that a stand-in filter imports from its own folder.
extern "C" __declspec(dllexport) int KstNeighbour()
{
    return 1;
}
