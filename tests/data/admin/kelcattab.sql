-- create
create table quarnxml.dtd_ref (dtdid varchar(128) not null, content quarnxml.xmlclob not null not logged, usage_count int not null, author varchar(128), creator varchar(128), updator varchar(128), constraint dtd_ref_pk primary key (dtdid));
grant select on table quarnxml.dtd_ref to public;
grant insert on table quarnxml.dtd_ref to public;
grant delete on table quarnxml.dtd_ref to public;
grant update on table quarnxml.dtd_ref to public;
create table quarnxml.xml_usage (table_schema char(31) not null, table_name char(129) not null, col_name char(31) not null, dtdid varchar(128), dad clob(100k), access_mode int not null, validation int not null, default_view char(128), trigger_suffix char(8) not null, version decimal(3,2) not null default 0, root_id varchar(128), side_tab_qual varchar(128), constraint xml_col_pk primary key (table_schema, table_name, col_name), constraint xml_col_fk foreign key (dtdid) references quarnxml.dtd_ref (dtdid));
grant select on table quarnxml.xml_usage to public;
grant insert on table quarnxml.xml_usage to user quarnxml;
grant delete on table quarnxml.xml_usage to user quarnxml;
grant update on table quarnxml.xml_usage to user quarnxml;
create trigger quarnxml.dtdref_delete no cascade before delete on quarnxml.dtd_ref referencing old as o for each row mode quarnsql when (o.usage_count > 0) signal sqlstate '70010' ('This DTD is used by others.');
create trigger quarnxml.dtdref_update no cascade before update on quarnxml.dtd_ref referencing new as n old as o for each row mode quarnsql when ((n.usage_count <> o.usage_count + 1 and n.usage_count <> o.usage_count - 1 and n.usage_count <> o.usage_count) or (n.usage_count = o.usage_count and o.usage_count > 0)) signal sqlstate '70010' ('Illegal update on DTD or its usage count.');
create trigger quarnxml.dtdref_insert no cascade before insert on quarnxml.dtd_ref referencing new as n for each row mode quarnsql when (n.usage_count <> 0) signal sqlstate '70010' ('The usage_count must be 0 when inserted.');
-- drop
drop trigger quarnxml.dtdref_delete;
drop trigger quarnxml.dtdref_update;
drop trigger quarnxml.dtdref_insert;
drop table quarnxml.dtd_ref;
drop table quarnxml.xml_usage;
