# libpci (pciutils) is the one library the deliverables depend on. On a
# machine whose package mirror would not install libpci-dev:i386, scripts/setup
# unpacks the i386 packages under /opt/srvfw-i386 instead; look there too.
set(_pci_extra_root /opt/srvfw-i386)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  find_path(PCI_INCLUDE_DIR pci/pci.h
    PATHS /usr/include/i386-linux-gnu ${_pci_extra_root}/usr/include/i386-linux-gnu
    NO_DEFAULT_PATH)
  find_library(PCI_LIBRARY NAMES pci
    PATHS /usr/lib/i386-linux-gnu ${_pci_extra_root}/usr/lib/i386-linux-gnu NO_DEFAULT_PATH)
else()
  find_path(PCI_INCLUDE_DIR pci/pci.h)
  find_library(PCI_LIBRARY NAMES pci)
endif()

if(PCI_INCLUDE_DIR AND PCI_LIBRARY)
  set(PCI_FOUND TRUE)
  add_library(pci::pci UNKNOWN IMPORTED)
  set_target_properties(pci::pci PROPERTIES
    IMPORTED_LOCATION ${PCI_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${PCI_INCLUDE_DIR})
  message(STATUS "libpci: ${PCI_LIBRARY}")
else()
  set(PCI_FOUND FALSE)
  message(WARNING "libpci not found: the deliverables that need PCI access are not built "
                  "(run scripts/setup)")
endif()
