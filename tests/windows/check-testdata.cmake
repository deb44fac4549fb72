# Checks that TESTDATA_DIR holds the volumes a native build's fixtures made
# (the cross build's tests read them; they cannot make them).
set(wanted
  reference/7-undel-ntfs/7-ntfs-undel.dd
  reference/6-undel-fat/6-fat-undel.dd
  fat/fat12.img fat/fat16.img fat/fat32.img
  ntfs/ntfs4k.img)
foreach(file ${wanted})
  if(NOT EXISTS ${TESTDATA_DIR}/${file})
    message(FATAL_ERROR "${TESTDATA_DIR}/${file} is missing: run the native build's tests first "
                        "and configure this build with -DKESTREL_LINUX_TESTDATA=<native build>/testdata")
  endif()
endforeach()
