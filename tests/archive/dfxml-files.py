#!/usr/bin/env python3
"""The volume of a DFXML file (type, block size and count), then its file
objects, one a line, sorted: path, size, whether allocated, MD5, byte runs
(image offset+length); without "." and "..", and without fiwalk's own
objects ($MBR, $FAT1, ...)."""
import sys
import xml.etree.ElementTree as ElementTree

lines = []
document = ElementTree.parse(sys.argv[1])
volume = next(item for item in document.iter() if item.tag.endswith('}volume'))
print(' '.join(child.text for child in volume if child.tag.split('}')[1] in ('ftype_str', 'block_size', 'block_count')))
for item in document.iter():
    if not item.tag.endswith('}fileobject'):
        continue
    fields = {child.tag.split('}')[1]: child for child in item}
    name = fields['filename'].text
    if fields['name_type'].text not in 'rd' or name.split('/')[-1] in ('.', '..'):
        continue
    md5 = [h.text for h in item.iter() if h.tag.endswith('hashdigest') and h.get('type') == 'md5']
    runs = [r.get('img_offset') + '+' + r.get('len') for r in item.iter() if r.tag.endswith('}byte_run')]
    lines.append(' '.join([name, fields['filesize'].text, 'alloc' if 'alloc' in fields else 'deleted'] + md5 + runs))
print('\n'.join(sorted(lines)))
