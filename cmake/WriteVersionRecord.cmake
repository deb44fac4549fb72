# cmake -DOUTPUT=file -DNAME=program -DVERSION=x.y.z -DPRODUCT_VERSION=x.y.z
#       -DDESCRIPTION=text -P WriteVersionRecord.cmake
# The record's date is the time of the build (UTC), or SOURCE_DATE_EPOCH
# when it is set, so that a reproducible build stays reproducible.
string(TIMESTAMP date "%Y-%m-%dT%H:%M:%SZ" UTC)
string(REGEX REPLACE "[\r\n]" " " DESCRIPTION "${DESCRIPTION}")
file(WRITE "${OUTPUT}.tmp"
"# Kestrel version record of ${NAME}
FileVersion=${VERSION}
ProductVersion=${PRODUCT_VERSION}
FileDescription=${DESCRIPTION}
ProductName=Kestrel
CompanyName=Kestrel
InternalName=${NAME}
OriginalFilename=${NAME}
FileDate=${date}
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
